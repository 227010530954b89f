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

TEST(SdlEvents, ExtendedKeysGiveTheirVirtualKeyCodes) {
    struct {
        SDL_Keycode sym;
        int vk;
    } extended[] = {{SDLK_LEFT, 37}, {SDLK_UP, 38},       {SDLK_RIGHT, 39},  {SDLK_DOWN, 40},
                    {SDLK_HOME, 36}, {SDLK_END, 35},      {SDLK_PAGEUP, 33}, {SDLK_PAGEDOWN, 34},
                    {SDLK_INSERT, 45}, {SDLK_DELETE, 46}, {SDLK_KP_DIVIDE, 111}};
    for (auto k : extended) {
        Translated t = translate(key(SDL_KEYDOWN, k.sym));
        ASSERT_EQ(t.n, 1) << k.vk;
        EXPECT_EQ(t.ev[0].kind, EV_KEY_DOWN);
        EXPECT_EQ(t.ev[0].code, k.vk);
        EXPECT_TRUE(t.ev[0].extended);
    }
    // Letters are ordinary keys: they count only when repeated and type through text input.
    Translated t = translate(key(SDL_KEYDOWN, SDLK_q, 1));
    ASSERT_EQ(t.n, 1);
    EXPECT_EQ(t.ev[0].code, 'Q');
    EXPECT_FALSE(t.ev[0].extended);
    EXPECT_TRUE(t.ev[0].repeat);
    EXPECT_EQ(translate(key(SDL_KEYDOWN, SDLK_VOLUMEUP)).n, 0);
    EXPECT_EQ(translate(key(SDL_KEYUP, SDLK_LEFT)).ev[0].kind, EV_KEY_UP);
}

TEST(SdlEvents, ControlKeysTypeTheirCharacters) {
    struct {
        SDL_Keycode sym;
        int code;
    } keys[] = {{SDLK_RETURN, 13}, {SDLK_KP_ENTER, 13}, {SDLK_ESCAPE, 27}, {SDLK_BACKSPACE, 8}, {SDLK_TAB, 9}};
    for (auto k : keys) {
        Translated t = translate(key(SDL_KEYDOWN, k.sym));
        ASSERT_EQ(t.n, 2) << k.code;
        EXPECT_EQ(t.ev[1].kind, EV_CHAR);
        EXPECT_EQ(t.ev[1].code, k.code);
    }
}

SDL_Event text(const char* s) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    std::snprintf(e.text.text, sizeof e.text.text, "%s", s);
    return e;
}

TEST(SdlEvents, TextInputGivesTheFirstCharacter) {
    EXPECT_EQ(translate(text("a")).ev[0].code, 'a');
    EXPECT_EQ(translate(text("%x")).ev[0].code, '%');
    EXPECT_EQ(translate(text("\xC3\xA9")).ev[0].code, 0xE9);  // e acute, Latin-1
    EXPECT_EQ(translate(text("\xE2\x82\xAC")).n, 0);           // beyond Latin-1
}

TEST(SdlEvents, PointerButtonsAndFingers) {
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
    e.button.x = 5;
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
    EXPECT_EQ(t.ev[0].x, 1024);
    EXPECT_EQ(t.ev[0].y, 300);
    EXPECT_TRUE(t.ev[0].left);
    e.type = SDL_FINGERUP;
    EXPECT_FALSE(translate(e).ev[0].left);
}

TEST(SdlEvents, ClosingEndsTheProgram) {
    SDL_Event e{};
    e.type = SDL_QUIT;
    EXPECT_EQ(WndProc(translate(e).ev[0]), ACT_EXIT);
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    EXPECT_EQ(translate(e).ev[0].kind, EV_CLOSE);
    e.window.event = SDL_WINDOWEVENT_EXPOSED;
    EXPECT_EQ(translate(e).n, 0);
}

}  // namespace
