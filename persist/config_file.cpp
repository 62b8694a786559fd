#include "persist/config_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "persist/file_replace.h"
#include "persist/message.h"
#include "persist/save_temporaries.h"

namespace {

const int32_t kFileMagic = 0x0000D767;
const int32_t kHeaderLength = 6;
// The body length is stored in 16 bits.
const int32_t kMaxBodyLength = 0xFFFF;
// The reader never looks further into a file.
const size_t kMaxFileLength = kHeaderLength + kMaxBodyLength;

// The fingerprint's hash: 64-bit FNV-1a, continued over each piece of a file.
constexpr uint64_t kHashStart = 0xCBF29CE484222325u;

uint64_t hashed(uint64_t hash, const uint8_t* bytes, size_t count)
{
    for (size_t index = 0; index < count; ++index)
        hash = (hash ^ bytes[index]) * 0x100000001B3u;
    return hash;
}

// Supplies up to `count` bytes of a file; returns how many arrived.
using ByteSource = std::function<int32_t(uint8_t* buffer, int32_t count)>;

// Lays out header and body. False when the body does not fit its 16-bit
// length (`bytesOver` then says by how much) or memory ran out: such a file
// must not be stored.
bool composeFile(StreamSettingsSet& presets, Message& header, Message& body, int64_t& bytesOver)
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
    bytesOver = body.failed() ? 0 : std::max<int64_t>(bodyLength - kMaxBodyLength, 0);
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
    const int32_t storedSetFlag = body.getInt32();
    const bool setFlag = storedSetFlag != 0;
    if (body.truncated()) {
        noteReadFault(fault, 0, "the set flag (4 bytes)", "the end of the body");
        return false;
    }
    if (storedSetFlag != 0 && storedSetFlag != 1)
        noteReadOtherwise(fault, 0, "the set flag is stored as " + magicBytes(storedSetFlag) + "; a save stores 00 00 00 01");
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
    readingRecord(fault, &ConfigReadFault::readingPreset, -1);
    const uint8_t clampedCurrent = current < count ? current : static_cast<uint8_t>(count - 1);
    if (current != clampedCurrent)
        noteReadOtherwise(fault, 5, "the current preset is stored as " + std::to_string(current) +
                                        ", beyond the last; a save stores " + std::to_string(clampedCurrent));
    const int32_t unread = body.payloadSize() - body.readPos();
    if (unread > 0)
        noteReadOtherwise(fault, body.readPos(), byteCount(unread) + " after the last preset; a save leaves them out");

    presets.resize(count);
    for (int index = 0; index < count; ++index)
        presets.at(index).assignFrom(loaded.at(index));
    presets.current_ = clampedCurrent;
    return true;
}

bool writeAll(int file, const Message& message)
{
    return ::writeAll(file, message.payload(), message.payloadSize());
}

// Writes the new content into the target itself, for when another program's
// hold keeps the target from being replaced. The file first grows to the new
// length, so that running out of space leaves the old content as it was (the
// reader never looks past the old body). `fault` learns why the target could
// not be touched.
InPlaceWrite writeInPlace(const FilePath& path, const Message& header, const Message& body, FileFault& fault)
{
    const int file = openExistingForWriting(path);
    if (file < 0) {
        fault = lastFileFault();
        return InPlaceWrite::targetUntouched;
    }
    const int32_t length = header.payloadSize() + body.payloadSize();
    const int64_t oldLength = fileSize(file);
    if (oldLength < 0 || (oldLength < length && !setFileSize(file, length))) {
        fault = lastFileFault();
        closeFile(file);
        return InPlaceWrite::targetUntouched;
    }
    const bool written = writeAll(file, header) && writeAll(file, body) && setFileSize(file, length) && flushToDisk(file);
    const bool closed = closeFile(file);
    return written && closed ? InPlaceWrite::written : InPlaceWrite::failedPartWay;
}

SaveResult failure(SaveFault fault, const FilePath& path)
{
    SaveResult result;
    result.fault = fault;
    result.path = path;
    return result;
}

// A file that could not be created or written beside the target, and the
// system's words for why.
SaveResult temporaryFailure(FileFault fault, const std::string& reason, const FilePath& path)
{
    SaveResult result;
    switch (fault) {
    case FileFault::accessDenied:
    case FileFault::readOnly:
        result = failure(SaveFault::folderNotWritable, folderOf(path));
        break;
    case FileFault::diskFull:
        result = failure(SaveFault::diskFull, path);
        break;
    default:
        result = failure(SaveFault::notWritten, path);
        break;
    }
    result.reason = reason;
    return result;
}

// Writes the new content beside the target and moves it over the target only
// once it is complete, so that a failure leaves the previous file untouched.
SaveResult storeReplacing(const FilePath& path, const Message& header, const Message& body)
{
    // Windows refuses to replace a read-only file; not every file system that
    // stands in for it does, and the mark is the user's wish either way.
    if (fileIsReadOnly(path))
        return failure(SaveFault::readOnly, path);
    FilePath temporary;
    const int file = createSaveTemporary(path, temporary);
    if (file < 0)
        return temporaryFailure(lastFileFault(), lastFileReason(), path);
    const bool written = writeAll(file, header) && writeAll(file, body) && flushToDisk(file);
    const FileFault writeFault = lastFileFault();
    const std::string writeReason = lastFileReason();
    const bool closed = closeFile(file);
    if (!written || !closed) {
        const FileFault closeFault = lastFileFault();
        const std::string closeReason = lastFileReason();
        removeFile(temporary);
        return written ? temporaryFailure(closeFault, closeReason, path)
                       : temporaryFailure(writeFault, writeReason, path);
    }
    FileFault inPlaceFault = FileFault::other;
    ReplaceSteps steps = fileSystemReplaceSteps(temporary, path,
                                                [&] { return writeInPlace(path, header, body, inPlaceFault); });
    std::string replaceReason;
    steps.replace = [replace = steps.replace, &replaceReason] {
        const ReplaceAttempt attempt = replace();
        if (attempt != ReplaceAttempt::done)
            replaceReason = lastFileReason();
        return attempt;
    };
    switch (replaceOrWriteInPlace(steps)) {
    case ReplaceOutcome::replaced:
    case ReplaceOutcome::writtenInPlace:
        return {};
    case ReplaceOutcome::refused: {
        SaveResult refused = failure(fileIsReadOnly(path) ? SaveFault::readOnly : SaveFault::notWritten, path);
        refused.reason = replaceReason;
        return refused;
    }
    case ReplaceOutcome::held: {
        if (inPlaceFault == FileFault::diskFull)
            return failure(SaveFault::diskFull, path);
        SaveResult held = failure(SaveFault::held, path);
        held.holder = programHoldingFile(path);
        return held;
    }
    case ReplaceOutcome::failedPartWay: {
        SaveResult broken = failure(SaveFault::failedPartWay, path);
        broken.completeCopy = temporary;
        return broken;
    }
    }
    return failure(SaveFault::notWritten, path);
}

// Reads the whole file: the bytes the reader may need, and the fingerprint
// of all of them. False when it cannot be opened or read.
bool readWholeFile(const FilePath& path, std::vector<uint8_t>& bytes, FileFingerprint& fingerprint)
{
    fingerprint = FileFingerprint();
    bytes.clear();
    const int file = openForReading(path);
    if (file < 0)
        return false;
    fingerprint.present = true;
    fingerprint.writeTime = fileWriteTime(file);
    uint64_t hash = kHashStart;
    uint8_t buffer[16384];
    int32_t received = 0;
    while ((received = readSome(file, buffer, sizeof buffer)) > 0) {
        hash = hashed(hash, buffer, static_cast<size_t>(received));
        const size_t room = kMaxFileLength - std::min(bytes.size(), kMaxFileLength);
        bytes.insert(bytes.end(), buffer, buffer + std::min(static_cast<size_t>(received), room));
        fingerprint.size += received;
    }
    fingerprint.hash = hash;
    if (received < 0) {
        // The cause of the failed read, not of the close.
        const int savedErrno = errno;
        closeFile(file);
        errno = savedErrno;
        return false;
    }
    closeFile(file);
    return true;
}

// How a read of the whole file ended, and why it failed.
struct WholeFileRead {
    bool read = false;
    FileFault fault = FileFault::other;
    std::string reason;
};

// Tries `attempt` again while it fails because another program holds the
// file without sharing, for as long as a save waits for such a holder.
template <typename Attempt>
bool triedWhileHeld(const Attempt& attempt)
{
    const auto deadline = std::chrono::steady_clock::now() + kReplaceRetryLimit;
    for (;;) {
        if (attempt())
            return true;
        if (lastFileFault() != FileFault::held || std::chrono::steady_clock::now() + kReplaceRetryPause > deadline)
            return false;
        std::this_thread::sleep_for(kReplaceRetryPause);
    }
}

// readWholeFile, waiting for a holder as a save does.
WholeFileRead readWholeFileWaiting(const FilePath& path, std::vector<uint8_t>& bytes, FileFingerprint& fingerprint)
{
    WholeFileRead attempt;
    attempt.read = triedWhileHeld([&] { return readWholeFile(path, bytes, fingerprint); });
    if (!attempt.read) {
        attempt.fault = lastFileFault();
        attempt.reason = lastFileReason();
    }
    return attempt;
}

// What a save wrote: its bytes, and the write time the file itself tells,
// asked again while another program holds it.
FileFingerprint writtenFingerprint(const FilePath& path, const Message& header, const Message& body)
{
    FileFingerprint written;
    written.present = true;
    written.size = header.payloadSize() + body.payloadSize();
    written.hash = hashed(hashed(kHashStart, header.payload(), static_cast<size_t>(header.payloadSize())),
                          body.payload(), static_cast<size_t>(body.payloadSize()));
    triedWhileHeld([&] { return (written.writeTime = fileWriteTimeAt(path)) != 0; });
    return written;
}

}  // namespace

SaveResult writeConfigFile(StreamSettingsSet& presets, const FilePath& path)
{
    Message header;
    Message body;
    int64_t bytesOver = 0;
    if (!composeFile(presets, header, body, bytesOver)) {
        SaveResult tooLarge = failure(bytesOver > 0 ? SaveFault::tooLarge : SaveFault::notWritten, path);
        tooLarge.bytesOver = bytesOver;
        return tooLarge;
    }
    const FilePath target = linkTarget(path);
    SaveResult result = storeReplacing(target, header, body);
    if (result)
        result.written = writtenFingerprint(target, header, body);
    return result;
}

bool readConfigFile(StreamSettingsSet& presets, const FilePath& path, ConfigReadFault* fault)
{
    std::vector<uint8_t> bytes;
    FileFingerprint fingerprint;
    return readWholeFile(path, bytes, fingerprint) && readConfigBytes(presets, bytes.data(), bytes.size(), fault);
}

bool fingerprintFile(const FilePath& path, FileFingerprint& fingerprint, FileFault& fault)
{
    std::vector<uint8_t> bytes;
    const WholeFileRead attempt = readWholeFileWaiting(path, bytes, fingerprint);
    fault = attempt.fault;
    return attempt.read || attempt.fault == FileFault::missing;
}

bool fileHoldsBytes(const FilePath& path, const std::vector<uint8_t>& bytes)
{
    std::vector<uint8_t> stored;
    FileFingerprint fingerprint;
    return readWholeFile(path, stored, fingerprint) && fingerprint.size == static_cast<int64_t>(bytes.size()) &&
           stored == bytes;
}

ConfigLoad loadConfigFile(StreamSettingsSet& presets, const FilePath& path)
{
    ConfigLoad load;
    std::vector<uint8_t> bytes;
    const WholeFileRead attempt = readWholeFileWaiting(path, bytes, load.fingerprint);
    load.readFault = attempt.fault;
    load.readReason = attempt.reason;
    if (!attempt.read)
        load.outcome = attempt.fault == FileFault::missing ? LoadOutcome::missing : LoadOutcome::unreadable;
    else if (readConfigBytes(presets, bytes.data(), bytes.size(), &load.fault))
        load.outcome = LoadOutcome::loaded;
    else
        load.outcome = bytes.empty() ? LoadOutcome::empty : LoadOutcome::damaged;
    return load;
}

bool writeConfigBytes(StreamSettingsSet& presets, std::vector<uint8_t>& bytes)
{
    Message header;
    Message body;
    int64_t bytesOver = 0;
    if (!composeFile(presets, header, body, bytesOver))
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
    if (!takeBody(fromMemory, body, fault) || !parseBody(presets, body, fault))
        return false;
    if (position < size && fault != nullptr) {
        fault->base = 0;
        noteReadOtherwise(fault, static_cast<int64_t>(position), "data after the body; a save leaves it out");
    }
    return true;
}
