// Replies of the anthropic chat API as the model client reads the answer out of them.
#include "FuzzSupport.h"

#include "assistant/ModelBackendClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    (void)ModelBackendClient::anthropicAnswer(fuzz::bytes(data, size));
    return 0;
}
