#include "app/WindowSystem.h"

#include <SDL.h>
#include <SDL_syswm.h>

namespace qen::app {

int windowSystemConnection(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info)) return -1;
#if defined(SDL_VIDEO_DRIVER_X11)
    if (info.subsystem == SDL_SYSWM_X11) return ConnectionNumber(info.info.x11.display);
#endif
    return -1;
}

}  // namespace qen::app
