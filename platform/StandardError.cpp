#include "platform/StandardError.h"

#include <mutex>
#include <unistd.h>

namespace {

std::mutex writerLock;
StandardErrorWriter installedWriter;

StandardErrorWriter Installed() {
    std::lock_guard lock(writerLock);
    return installedWriter;
}

} // namespace

void WriteStandardError(std::string_view textUtf8) {
    if (const StandardErrorWriter writer = Installed(); writer.write)
        writer.write(textUtf8);
    else
        WriteIfReady(STDERR_FILENO, textUtf8);
}

void FlushStandardError() {
    if (const StandardErrorWriter writer = Installed(); writer.flush)
        writer.flush();
}

StandardErrorWriter SetStandardErrorWriter(StandardErrorWriter writer) {
    std::lock_guard lock(writerLock);
    StandardErrorWriter previous = std::move(installedWriter);
    installedWriter = std::move(writer);
    return previous;
}
