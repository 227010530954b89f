// Translation of SDL input events into window events for WndProc. Header-only and free of
// SDL calls, so that it is tested without a display.
#pragma once

#include <SDL2/SDL_events.h>
#include <SDL2/SDL_keycode.h>
#include <SDL2/SDL_mouse.h>
#include <SDL2/SDL_touch.h>

#include <cstdint>

#include "platform/input.h"

// Key codes as the window shell reports them: the virtual-key code a key has on the
// platform the program was designed for, and whether that platform calls it an extended
// key (only extended keys and repeats report through key-down events).

struct SDL_KEY_CODE {
    int vk;         // 0: a key the program does not report
    bool extended;  // arrows, Home, End, Page Up/Down, Insert, Delete, keypad Enter ...
};

inline SDL_KEY_CODE sdl_key_code(SDL_Keycode sym) {
    if (sym >= SDLK_a && sym <= SDLK_z) return {int('A' + (sym - SDLK_a)), false};
    if (sym >= SDLK_0 && sym <= SDLK_9) return {int('0' + (sym - SDLK_0)), false};
    if (sym >= SDLK_F1 && sym <= SDLK_F12) return {int(112 + (sym - SDLK_F1)), false};
    switch (sym) {
    case SDLK_LEFT: return {37, true};
    case SDLK_UP: return {38, true};
    case SDLK_RIGHT: return {39, true};
    case SDLK_DOWN: return {40, true};
    case SDLK_PAGEUP: return {33, true};
    case SDLK_PAGEDOWN: return {34, true};
    case SDLK_END: return {35, true};
    case SDLK_HOME: return {36, true};
    case SDLK_INSERT: return {45, true};
    case SDLK_DELETE: return {46, true};
    case SDLK_KP_ENTER: return {13, true};
    case SDLK_KP_DIVIDE: return {111, true};
    case SDLK_NUMLOCKCLEAR: return {144, true};
    case SDLK_PRINTSCREEN: return {44, true};
    case SDLK_RCTRL: return {17, true};
    case SDLK_RALT: return {18, true};
    case SDLK_LGUI: return {91, true};
    case SDLK_RGUI: return {92, true};
    case SDLK_APPLICATION: return {93, true};
    case SDLK_RETURN: return {13, false};
    case SDLK_ESCAPE: return {27, false};
    case SDLK_BACKSPACE: return {8, false};
    case SDLK_TAB: return {9, false};
    case SDLK_SPACE: return {32, false};
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return {16, false};
    case SDLK_LCTRL: return {17, false};
    case SDLK_LALT: return {18, false};
    default: return {0, false};
    }
}

// Keys whose character arrives as a control code rather than as text input.
inline int sdl_key_char(SDL_Keycode sym) {
    switch (sym) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return 13;
    case SDLK_ESCAPE: return 27;
    case SDLK_BACKSPACE: return 8;
    case SDLK_TAB: return 9;
    default: return 0;
    }
}

// The window events of one SDL event (at most two: a key-down and the control character it
// types); returns their number. Finger positions are scaled to the client area; the
// pointer events that SDL makes up from touches are left out (the finger events carry
// them); now_ms is the millisecond clock for right-button presses.
inline int sdl_translate(const SDL_Event& e, int client_w, int client_h, uint32_t now_ms, SHELL_EVENT out[2]) {
    switch (e.type) {
    case SDL_QUIT:
        out[0] = {EV_CLOSE};
        return 1;
    case SDL_WINDOWEVENT:
        if (e.window.event != SDL_WINDOWEVENT_CLOSE) return 0;
        out[0] = {EV_CLOSE};
        return 1;
    case SDL_TEXTINPUT: {
        // The first character; UTF-8 sequences of Latin-1 code points give that code.
        const unsigned char* t = reinterpret_cast<const unsigned char*>(e.text.text);
        int code;
        if (t[0] < 0x80)
            code = t[0];
        else if ((t[0] & 0xE0) == 0xC0 && (t[1] & 0xC0) == 0x80 && t[0] <= 0xC3)
            code = (t[0] & 0x1F) << 6 | (t[1] & 0x3F);
        else
            return 0;
        if (code == 0) return 0;
        out[0] = {EV_CHAR};
        out[0].code = code;
        return 1;
    }
    case SDL_KEYDOWN: {
        int n = 0;
        SDL_KEY_CODE k = sdl_key_code(e.key.keysym.sym);
        if (k.vk) {
            out[n] = {EV_KEY_DOWN};
            out[n].code = k.vk;
            out[n].extended = k.extended;
            out[n].repeat = e.key.repeat != 0;
            n++;
        }
        if (int c = sdl_key_char(e.key.keysym.sym)) {
            out[n] = {EV_CHAR};
            out[n].code = c;
            n++;
        }
        return n;
    }
    case SDL_KEYUP:
        out[0] = {EV_KEY_UP};
        return 1;
    case SDL_MOUSEMOTION:
        if (e.motion.which == SDL_TOUCH_MOUSEID) return 0;
        out[0] = {EV_POINTER_MOVE};
        out[0].x = e.motion.x;
        out[0].y = e.motion.y;
        out[0].left = (e.motion.state & SDL_BUTTON_LMASK) != 0;
        out[0].right = (e.motion.state & SDL_BUTTON_RMASK) != 0;
        return 1;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        if (e.button.which == SDL_TOUCH_MOUSEID) return 0;
        bool down = e.type == SDL_MOUSEBUTTONDOWN;
        if (e.button.button == SDL_BUTTON_LEFT)
            out[0] = {down ? EV_LEFT_DOWN : EV_LEFT_UP};
        else if (e.button.button == SDL_BUTTON_RIGHT && down)
            out[0] = {EV_RIGHT_DOWN};
        else
            return 0;
        out[0].x = e.button.x;
        out[0].y = e.button.y;
        out[0].time_ms = now_ms;
        return 1;
    }
    case SDL_FINGERDOWN:
    case SDL_FINGERMOTION:
    case SDL_FINGERUP:
        out[0] = {EV_TOUCH};
        out[0].x = int(e.tfinger.x * float(client_w));
        out[0].y = int(e.tfinger.y * float(client_h));
        out[0].left = e.type != SDL_FINGERUP;
        return 1;
    default:
        return 0;
    }
}
