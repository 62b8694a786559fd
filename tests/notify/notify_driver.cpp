// Runs the renderer notification from wherever this program has been copied,
// as the editor would from its own folder:
//   notify_driver <network module path> [preset name]...
// Exit code 0 after the notification and the detector's destruction, 2 when
// the network module cannot be used.
#include <windows.h>

#include <cstdio>

#include "app/host_link.h"
#include "app/process_state.h"
#include "app/renderer_notification.h"
#include "model/text_conversion.h"

namespace {

template <typename Function>
Function entryPoint(HMODULE module, const char* name)
{
    return module != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                             : nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const HMODULE module = argc > 1 ? LoadLibraryW(argv[1]) : nullptr;
    const auto create = entryPoint<DetectVideoStreamCreateFn>(module, "detect_video_stream_create_v1");
    const auto destroy = entryPoint<DetectVideoStreamDestroyFn>(module, "detect_video_stream_destroy_v1");
    if (create == nullptr || destroy == nullptr) {
        std::fprintf(stderr, "notify_driver: the network module cannot be used\n");
        return 2;
    }
    stream_detector = create(0);
    if (stream_detector == nullptr) {
        std::fprintf(stderr, "notify_driver: no detector\n");
        return 2;
    }

    preset_collection.resize(argc - 2);
    for (int i = 2; i < argc; ++i)
        preset_collection.at(i - 2).setName(toNarrow(argv[i]));
    notify_renderers();

    destroy(stream_detector);
    stream_detector = nullptr;
    return 0;
}
