#include "tool/mpeg_ts.h"

#include <algorithm>

namespace {

constexpr size_t kCellSize = 188;
constexpr char kSyncByte = 0x47;
// Three sync bytes in a row are what a receiver needs to lock on; random
// bytes show them by chance once in about 90,000 streams.
constexpr size_t kSyncBytesNeeded = 3;
// Eight cells: enough to judge, little to keep.
constexpr size_t kBytesJudged = 8 * kCellSize;

}  // namespace

bool isTsDatagram(const char* bytes, size_t count)
{
    if (count == 0 || count % kCellSize != 0)
        return false;
    for (size_t cell = 0; cell < count; cell += kCellSize) {
        if (bytes[cell] != kSyncByte)
            return false;
    }
    return true;
}

void TsStreamCheck::add(const char* bytes, size_t count)
{
    start_.append(bytes, std::min(count, kBytesJudged - start_.size()));
}

bool TsStreamCheck::isTs() const
{
    for (size_t offset = 0; offset < kCellSize; ++offset) {
        size_t syncBytes = 0;
        size_t position = offset;
        while (position < start_.size() && start_[position] == kSyncByte) {
            ++syncBytes;
            position += kCellSize;
        }
        if (syncBytes >= kSyncBytesNeeded && position >= start_.size())
            return true;
    }
    return false;
}
