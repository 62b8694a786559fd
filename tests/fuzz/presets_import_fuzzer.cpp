// Feeds arbitrary text to the import of presets JSON, which comes from other
// machines. Besides crashes, leaks and undefined behaviour it checks that
// whatever import accepts is written, read back by the editor's reader, and
// exported and imported again to the same bytes.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "persist/config_file.h"
#include "tests/fuzz/fuzz_failure.h"
#include "tool/preset_json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::unique_ptr<CodePage> codePage = codePage1252();
    StreamSettingsSet imported(1);
    ImportReport report;
    if (!presetsFromJson(std::string(reinterpret_cast<const char*>(data), size), *codePage, {}, imported, report))
        return 0;

    std::vector<uint8_t> written;
    failIf(!writeConfigBytes(imported, written), "an accepted import could not be written");
    StreamSettingsSet reread(1);
    failIf(!readConfigBytes(reread, written.data(), written.size()), "the editor's reader refused what import wrote");

    std::string exported;
    std::string problem;
    failIf(!presetsToJson(reread, *codePage, exported, problem), "what import wrote could not be exported");
    StreamSettingsSet again(1);
    ImportReport secondReport;
    failIf(!presetsFromJson(exported, *codePage, {}, again, secondReport), "the export was refused");
    failIf(!secondReport.changes.empty(), "the export held values out of range");
    std::vector<uint8_t> rewritten;
    failIf(!writeConfigBytes(again, rewritten) || rewritten != written, "the file changed on the way");
    return 0;
}
