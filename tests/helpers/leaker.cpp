// A test child whose resident memory climbs steadily: it allocates and touches 1 MiB every
// 20 ms (after 64 MiB at start) until it holds 1 GiB, then waits to be killed.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

int main()
{
    constexpr size_t mib = 1024 * 1024;
    std::vector<char*> blocks;
    auto grow = [&] {
        char* block = static_cast<char*>(std::malloc(mib));
        if (!block) return;
        std::memset(block, int(blocks.size() & 0x7f) + 1, mib);
        blocks.push_back(block);
    };
    for (int i = 0; i < 64; ++i) grow();
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (blocks.size() < 1024) grow();
    }
}
