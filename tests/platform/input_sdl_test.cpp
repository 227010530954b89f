// The translation of SDL events into window events, with SDL events made by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "../../platform/sdl/include/platform/sdl_events.h"

namespace {

struct Translated {
    int n;
    SHELL_EVENT ev[2];
};

Translated translate(const SDL_Event& e, int cw = 1024, int ch = 600, uint32_t now = 0) {
    Translated t{};
    t.n = sdl_translate(e, cw, ch, now, t.ev);
    return t;
}

SDL_Event key(Uint32 type, SDL_Keycode sym, int repeat = 0) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym.sym = sym;
    e.key.repeat = Uint8(repeat);
    return e;
}

SDL_Event text(const char* s) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    std::snprintf(e.text.text, sizeof e.text.text, "%s", s);
    return e;
}

TEST(SdlEvents, KeysAndText) {
    // Extended keys give their virtual key codes; control keys type their characters too.
    const struct {
        SDL_Keycode sym;
        int vk, typed;
    } keys[] = {{SDLK_LEFT, 37, -1},   {SDLK_UP, 38, -1},       {SDLK_RIGHT, 39, -1},    {SDLK_DOWN, 40, -1},
                {SDLK_HOME, 36, -1},   {SDLK_END, 35, -1},      {SDLK_PAGEUP, 33, -1},   {SDLK_PAGEDOWN, 34, -1},
                {SDLK_INSERT, 45, -1}, {SDLK_DELETE, 46, -1},   {SDLK_KP_DIVIDE, 111, -1},
                {SDLK_RETURN, -1, 13}, {SDLK_KP_ENTER, -1, 13}, {SDLK_ESCAPE, -1, 27},   {SDLK_BACKSPACE, -1, 8},
                {SDLK_TAB, -1, 9}};
    for (const auto& k : keys) {
        const Translated t = translate(key(SDL_KEYDOWN, k.sym));
        const SHELL_EVENT& e = t.ev[std::clamp(t.n, 1, 2) - 1];
        EXPECT_EQ(std::tuple(t.n, int(e.kind), e.code, e.extended),
                  k.vk >= 0 ? std::tuple(1, int(EV_KEY_DOWN), k.vk, true) : std::tuple(2, int(EV_CHAR), k.typed, false))
            << k.sym;
    }
    // Letters are ordinary keys: they count only when repeated and type through text input.
    const Translated t = translate(key(SDL_KEYDOWN, SDLK_q, 1));
    EXPECT_EQ(std::tuple(t.n, t.ev[0].code, t.ev[0].extended, t.ev[0].repeat), std::tuple(1, int('Q'), false, true));
    EXPECT_EQ(translate(key(SDL_KEYDOWN, SDLK_VOLUMEUP)).n, 0);
    EXPECT_EQ(translate(key(SDL_KEYUP, SDLK_LEFT)).ev[0].kind, EV_KEY_UP);
    // Text gives its first character, in Latin-1.
    const std::pair<const char*, int> texts[] = {
        {"a", 'a'}, {"%x", '%'}, {"\xC3\xA9", 0xE9}, {"\xC3\xBF", 0xFF}, {"\xC2\xB5", 0xB5}};
    for (auto [s, code] : texts) EXPECT_EQ(translate(text(s)).ev[0].code, code) << code;
    EXPECT_EQ(translate(text("\xE2\x82\xAC")).n, 0);  // beyond Latin-1
    EXPECT_EQ(translate(text("\xC4\x80")).n, 0);
}

SDL_Event event(Uint32 type, int a = 0, int b = 0, int c = 0, int d = 0) {
    SDL_Event e{};
    e.type = type;
    if (type == SDL_MOUSEMOTION) e.motion.x = a, e.motion.y = b, e.motion.state = Uint32(c), e.motion.which = Uint32(d);
    if (type == SDL_MOUSEBUTTONDOWN || type == SDL_MOUSEBUTTONUP) e.button.button = Uint8(a);
    if (type == SDL_FINGERDOWN || type == SDL_FINGERUP) e.tfinger.x = float(a) / 100, e.tfinger.y = float(b) / 100;
    if (type == SDL_WINDOWEVENT) e.window.event = Uint8(a);
    return e;
}

TEST(SdlEvents, PointerButtonsFingersAndClosing) {
    const struct {
        SDL_Event e;
        int n, kind, x, y, left, right;
    } cases[] = {
        {event(SDL_MOUSEMOTION, 12, 34, SDL_BUTTON_LMASK | SDL_BUTTON_RMASK), 1, EV_POINTER_MOVE, 12, 34, 1, 1},
        // Made up from a touch: the finger event counts.
        {event(SDL_MOUSEMOTION, 12, 34, 0, int(SDL_TOUCH_MOUSEID)), 0, 0, 0, 0, 0, 0},
        {event(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT), 1, EV_RIGHT_DOWN, 0, 0, 0, 0},
        {event(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT), 0, 0, 0, 0, 0, 0},
        {event(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT), 1, EV_LEFT_UP, 0, 0, 0, 0},
        // Fingers at fractions of the client area of 2048 x 1200.
        {event(SDL_FINGERDOWN, 50, 25), 1, EV_TOUCH, 1024, 300, 1, 0},
        {event(SDL_FINGERUP, 50, 25), 1, EV_TOUCH, 1024, 300, 0, 0},
        {event(SDL_WINDOWEVENT, SDL_WINDOWEVENT_CLOSE), 1, EV_CLOSE, 0, 0, 0, 0},
        {event(SDL_WINDOWEVENT, SDL_WINDOWEVENT_EXPOSED), 0, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const Translated t = translate(c.e, 2048, 1200, 777);
        SCOPED_TRACE(c.e.type);
        ASSERT_EQ(t.n, c.n);
        if (t.n == 0) continue;
        const SHELL_EVENT& e = t.ev[0];
        EXPECT_EQ(std::tuple(int(e.kind), e.x, e.y, int(e.left), int(e.right)), std::tuple(c.kind, c.x, c.y, c.left, c.right));
    }
    EXPECT_EQ(translate(event(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT), 1024, 600, 777).ev[0].time_ms, 777u);
    EXPECT_EQ(WndProc(translate(event(SDL_QUIT)).ev[0]), ACT_EXIT);
}

}  // namespace
