#include "session.h"

namespace kqcam {

Session::Session(const Options& given) : options(given) {
    out.json = options.json;
    // Standard output carries only data when it holds JSON lines or the
    // movie itself.
    out.info = (options.json || options.toStdout) ? stderr : stdout;
}

Camera& Session::Connected() {
    if (!camera) camera.reset(new Camera(library));
    return *camera;
}

}  // namespace kqcam
