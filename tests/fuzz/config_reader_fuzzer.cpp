// Feeds arbitrary bytes to the configuration reader. Besides crashes, leaks
// and undefined behaviour it checks that whatever the reader accepts survives
// being written back and read again unchanged, and byte for byte unless the
// reader noted a value it took other than stored.
#include <cstdint>
#include <vector>

#include "persist/config_file.h"
#include "tests/config/config_test_support.h"
#include "tests/fuzz/fuzz_failure.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    StreamSettingsSet loaded(1);
    ConfigReadFault reading;
    if (!readConfigBytes(loaded, data, size, &reading))
        return 0;

    // Every record is written back with all its endpoints, so a file that
    // listed fewer of them may no longer fit the 16-bit body length.
    std::vector<uint8_t> first;
    if (!writeConfigBytes(loaded, first))
        return 0;

    // Only what the reader says it took otherwise may differ.
    failIf(reading.readOtherwise.empty() && first != std::vector<uint8_t>(data, data + size),
           "a file read without a note was not written back byte for byte");

    StreamSettingsSet reloaded(1);
    failIf(!readConfigBytes(reloaded, first.data(), first.size()), "a written file was rejected");
    failIf(describePresets(reloaded) != describePresets(loaded), "the presets changed on the way");
    failIf(reloaded.setFlag_ != loaded.setFlag_, "the set flag changed on the way");

    std::vector<uint8_t> second;
    failIf(!writeConfigBytes(reloaded, second) || second != first, "the file changed on the way");
    return 0;
}
