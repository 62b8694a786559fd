#include "persist/config_file.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "persist/file_replace.h"
#include "persist/message.h"

namespace {

const int32_t kFileMagic = 0x0000D767;
const int32_t kHeaderLength = 6;
// The body length is stored in 16 bits.
const int32_t kMaxBodyLength = 0xFFFF;
const char kTemporarySuffix[] = ".tmp";

// Supplies up to `count` bytes of a file; returns how many arrived.
using ByteSource = std::function<int32_t(uint8_t* buffer, int32_t count)>;

// Lays out header and body. False when the body does not fit its 16-bit
// length or memory ran out: such a file must not be stored.
bool composeFile(StreamSettingsSet& presets, Message& header, Message& body)
{
    const int count = presets.count();
    body.putInt32(presets.setFlag_ ? 1 : 0);
    body.putByte(static_cast<uint8_t>(count));
    if (presets.current_ >= count)
        presets.current_ = static_cast<uint8_t>(count - 1);
    body.putByte(presets.current_);
    for (int index = 0; index < count; ++index)
        presets.at(index).writeTo(body);

    const int32_t bodyLength = body.payloadSize();
    header.putInt32(kFileMagic);
    header.putByte(static_cast<uint8_t>(bodyLength >> 8));
    header.putByte(static_cast<uint8_t>(bodyLength));
    return !body.failed() && !header.failed() && bodyLength <= kMaxBodyLength;
}

// Fills `message` with `count` bytes from the source; false when fewer arrive.
bool takeBytes(const ByteSource& source, Message& message, int32_t count, int32_t& received)
{
    received = 0;
    message.resize(count);
    if (message.failed())
        return false;
    received = count == 0 ? 0 : std::max(source(message.payload(), count), 0);
    return received == count;
}

std::string byteCount(int32_t count)
{
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

// Takes the header and the body it announces; bytes after the body are never read.
bool takeBody(const ByteSource& source, Message& body, ConfigReadFault* fault)
{
    Message header;
    int32_t received = 0;
    if (!takeBytes(source, header, kHeaderLength, received)) {
        noteReadFault(fault, received, "a header of " + byteCount(kHeaderLength), "the end of the file");
        return false;
    }
    const int32_t magic = header.getInt32();
    if (magic != kFileMagic) {
        noteReadFault(fault, 0, "file magic " + magicBytes(kFileMagic), magicBytes(magic));
        return false;
    }
    uint8_t high = 0;
    uint8_t low = 0;
    header.getByte(high);
    header.getByte(low);
    const int32_t length = high << 8 | low;
    if (takeBytes(source, body, length, received))
        return true;
    noteReadFault(fault, kHeaderLength + received, "a body of " + byteCount(length) + " (the length in the header)",
                  "the end of the file after " + byteCount(received));
    return false;
}

// Replaces the collection with the presets of `body`. A body cut short is
// damaged like one with a wrong magic number.
bool parseBody(StreamSettingsSet& presets, Message& body, ConfigReadFault* fault)
{
    if (fault)
        fault->base = kHeaderLength;  // positions in the body count from the start of the file
    const bool setFlag = body.getInt32() != 0;
    if (body.truncated()) {
        noteReadFault(fault, 0, "the set flag (4 bytes)", "the end of the body");
        return false;
    }
    // Taken over before any preset is read, so it stands when one is damaged.
    if (setFlag != presets.setFlag_)
        presets.changed_ = true;
    presets.setFlag_ = setFlag;

    uint8_t countByte = 0;
    uint8_t current = 0;
    body.getByte(countByte);
    body.getByte(current);
    const int count = static_cast<int8_t>(countByte);
    if (body.truncated()) {
        noteReadFault(fault, 4, "the preset count and the current index", "the end of the body");
        return false;
    }
    if (count < 0 || count > StreamSettingsSet::kMaxPresets) {
        noteReadFault(fault, 4, "a preset count of at most " + std::to_string(StreamSettingsSet::kMaxPresets),
                      std::to_string(countByte));
        return false;
    }

    StreamSettingsSet loaded(count);
    for (int index = 0; index < count; ++index) {
        readingRecord(fault, &ConfigReadFault::readingPreset, index);
        if (!loaded.at(index).readFrom(body, fault))
            return false;
    }
    if (body.truncated())
        return false;

    presets.resize(count);
    for (int index = 0; index < count; ++index)
        presets.at(index).assignFrom(loaded.at(index));
    presets.current_ = current < presets.count() ? current : static_cast<uint8_t>(presets.count() - 1);
    return true;
}

bool writeAll(int file, const Message& message)
{
    return ::writeAll(file, message.payload(), message.payloadSize());
}

int32_t readAll(int file, uint8_t* buffer, int32_t count)
{
    int32_t total = 0;
    while (total < count) {
        const int32_t received = readSome(file, buffer + total, count - total);
        if (received <= 0)
            break;
        total += received;
    }
    return total;
}

// Writes the new content into the target itself, for when another program's
// hold keeps the target from being replaced. The file first grows to the new
// length, so that running out of space leaves the old content as it was (the
// reader never looks past the old body).
InPlaceWrite writeInPlace(const FilePath& path, const Message& header, const Message& body)
{
    const int file = openExistingForWriting(path);
    if (file < 0)
        return InPlaceWrite::targetUntouched;
    const int32_t length = header.payloadSize() + body.payloadSize();
    const int64_t oldLength = fileSize(file);
    if (oldLength < 0 || (oldLength < length && !setFileSize(file, length))) {
        closeFile(file);
        return InPlaceWrite::targetUntouched;
    }
    const bool written = writeAll(file, header) && writeAll(file, body) && setFileSize(file, length) && flushToDisk(file);
    const bool closed = closeFile(file);
    return written && closed ? InPlaceWrite::written : InPlaceWrite::failedPartWay;
}

// Writes the new content beside the target and moves it over the target only
// once it is complete, so that a failure leaves the previous file untouched.
bool storeReplacing(const FilePath& path, const Message& header, const Message& body)
{
    const FilePath temporary = withSuffix(path, kTemporarySuffix);
    const int file = createForWriting(temporary);
    if (file < 0)
        return false;
    const bool written = writeAll(file, header) && writeAll(file, body) && flushToDisk(file);
    const bool closed = closeFile(file);
    if (!written || !closed) {
        removeFile(temporary);
        return false;
    }
    return replaceOrWriteInPlace(
        fileSystemReplaceSteps(temporary, path, [&] { return writeInPlace(path, header, body); }));
}

}  // namespace

bool writeConfigFile(StreamSettingsSet& presets, const FilePath& path)
{
    Message header;
    Message body;
    return composeFile(presets, header, body) && storeReplacing(path, header, body);
}

bool readConfigFile(StreamSettingsSet& presets, const FilePath& path, ConfigReadFault* fault)
{
    const int file = openForReading(path);
    if (file < 0)
        return false;
    Message body;
    const bool complete =
        takeBody([file](uint8_t* buffer, int32_t count) { return readAll(file, buffer, count); }, body, fault);
    closeFile(file);
    return complete && parseBody(presets, body, fault);
}

bool writeConfigBytes(StreamSettingsSet& presets, std::vector<uint8_t>& bytes)
{
    Message header;
    Message body;
    if (!composeFile(presets, header, body))
        return false;
    bytes.assign(header.payload(), header.payload() + header.payloadSize());
    bytes.insert(bytes.end(), body.payload(), body.payload() + body.payloadSize());
    return true;
}

bool readConfigBytes(StreamSettingsSet& presets, const uint8_t* bytes, size_t size, ConfigReadFault* fault)
{
    size_t position = 0;
    auto fromMemory = [&](uint8_t* buffer, int32_t count) {
        const size_t taken = std::min(static_cast<size_t>(count), size - position);
        if (taken > 0)
            std::memcpy(buffer, bytes + position, taken);
        position += taken;
        return static_cast<int32_t>(taken);
    };
    Message body;
    return takeBody(fromMemory, body, fault) && parseBody(presets, body, fault);
}
