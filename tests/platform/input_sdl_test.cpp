// The translation of SDL events into window events, with SDL events made by hand.
#include <gtest/gtest.h>

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
        SCOPED_TRACE(k.sym);
        const Translated t = translate(key(SDL_KEYDOWN, k.sym));
        if (k.vk >= 0) {
            ASSERT_EQ(t.n, 1);
            EXPECT_EQ(t.ev[0].kind, EV_KEY_DOWN);
            EXPECT_EQ(t.ev[0].code, k.vk);
            EXPECT_TRUE(t.ev[0].extended);
        } else {
            ASSERT_EQ(t.n, 2);
            EXPECT_EQ(t.ev[1].kind, EV_CHAR);
            EXPECT_EQ(t.ev[1].code, k.typed);
        }
    }
    // Letters are ordinary keys: they count only when repeated and type through text input.
    Translated t = translate(key(SDL_KEYDOWN, SDLK_q, 1));
    ASSERT_EQ(t.n, 1);
    EXPECT_EQ(t.ev[0].code, 'Q');
    EXPECT_FALSE(t.ev[0].extended);
    EXPECT_TRUE(t.ev[0].repeat);
    EXPECT_EQ(translate(key(SDL_KEYDOWN, SDLK_VOLUMEUP)).n, 0);
    EXPECT_EQ(translate(key(SDL_KEYUP, SDLK_LEFT)).ev[0].kind, EV_KEY_UP);
    // Text gives its first character, in Latin-1.
    const std::pair<const char*, int> texts[] = {
        {"a", 'a'}, {"%x", '%'}, {"\xC3\xA9", 0xE9}, {"\xC3\xBF", 0xFF}, {"\xC2\xB5", 0xB5}};
    for (auto [s, code] : texts) EXPECT_EQ(translate(text(s)).ev[0].code, code) << code;
    EXPECT_EQ(translate(text("\xE2\x82\xAC")).n, 0);  // beyond Latin-1
    EXPECT_EQ(translate(text("\xC4\x80")).n, 0);
}

TEST(SdlEvents, PointerButtonsFingersAndClosing) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = 12;
    e.motion.y = 34;
    e.motion.state = SDL_BUTTON_LMASK | SDL_BUTTON_RMASK;
    Translated t = translate(e);
    ASSERT_EQ(t.n, 1);
    EXPECT_EQ(t.ev[0].kind, EV_POINTER_MOVE);
    EXPECT_TRUE(t.ev[0].left && t.ev[0].right);
    EXPECT_EQ(t.ev[0].y, 34);
    e.motion.which = SDL_TOUCH_MOUSEID;  // made up from a touch: the finger event counts
    EXPECT_EQ(translate(e).n, 0);

    e = SDL_Event{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_RIGHT;
    t = translate(e, 1024, 600, 777);
    EXPECT_EQ(t.ev[0].kind, EV_RIGHT_DOWN);
    EXPECT_EQ(t.ev[0].time_ms, 777u);
    e.type = SDL_MOUSEBUTTONUP;
    EXPECT_EQ(translate(e).n, 0);
    e.button.button = SDL_BUTTON_LEFT;
    EXPECT_EQ(translate(e).ev[0].kind, EV_LEFT_UP);

    e = SDL_Event{};
    e.type = SDL_FINGERDOWN;
    e.tfinger.x = 0.5f;
    e.tfinger.y = 0.25f;
    t = translate(e, 2048, 1200);
    EXPECT_EQ(t.ev[0].kind, EV_TOUCH);
    EXPECT_EQ(t.ev[0].x * 10000 + t.ev[0].y, 1024 * 10000 + 300);
    EXPECT_TRUE(t.ev[0].left);
    e.type = SDL_FINGERUP;
    EXPECT_FALSE(translate(e).ev[0].left);

    e = SDL_Event{};
    e.type = SDL_QUIT;
    EXPECT_EQ(WndProc(translate(e).ev[0]), ACT_EXIT);
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    EXPECT_EQ(translate(e).ev[0].kind, EV_CLOSE);
    e.window.event = SDL_WINDOWEVENT_EXPOSED;
    EXPECT_EQ(translate(e).n, 0);
}

}  // namespace
