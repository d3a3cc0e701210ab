// /proc/net/tcp tables as the connection counter reads them.
#include "FuzzSupport.h"

#include "platform/linux/ProcTcpTableReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::privateHome() + QStringLiteral("/net/tcp");
    fuzz::writeFile(path, fuzz::bytes(data, size));
    const ProcTcpTableReader reader(fuzz::privateHome(), QStringLiteral("/nonexistent/ss"));
    (void)reader.countEstablishedInTable(path);
    return 0;
}
