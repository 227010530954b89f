// Edit fields: any sequence of keys and presses typed into fields of every variable type,
// with field widths and decimals from none to more than the typing buffer holds. The
// fields draw in the smallest bitmap font: glyphs are the text harness's business.
#include <cstddef>
#include <cstring>

#include "assets/fonts.h"
#include "forms/edit.h"
#include "forms/object.h"
#include "forms/table.h"
#include "forms/widgets.h"
#include "fuzz_support.h"
#include "support/forms_driver.h"

namespace {

constexpr size_t CAP = 200;  // keys and presses: three times the typing buffer

int8_t byte_v;
uint8_t ubyte_v;
int16_t word_v, uword_v;
int32_t dword_v;
uint32_t udword_v;
float real_v, real2_v;
double double_v;
char text_v[VAR_STRING], pass_v[VAR_STRING], boxed_v[VAR_STRING];

struct Field {
    void* var;
    size_t bytes;
    uint8_t type;
    int decimals, digits;
    int every = 0;
};
#define FIELD(v, ...) Field{&v, sizeof v, __VA_ARGS__}
const Field FIELDS[] = {
    FIELD(byte_v, VT_BYTE, 0, 5),      FIELD(ubyte_v, VT_UBYTE, 1, 5),   FIELD(word_v, VT_WORD, 2, 7),
    FIELD(uword_v, VT_UWORD, 0, 0),    FIELD(dword_v, VT_DWORD, 0, 12),  FIELD(udword_v, VT_UDWORD, 3, 9),
    FIELD(real_v, VT_REAL, 2, 7),      FIELD(real2_v, VT_REAL, 40, 255), FIELD(double_v, VT_DOUBLE, 6, 20),
    FIELD(text_v, VT_STRING, 0, 9),    FIELD(pass_v, VT_PASSWORD, 0, 9), FIELD(boxed_v, VT_STRING, 0, 255, 2),
    FIELD(word_v, VT_WORD, 9, 3),      FIELD(dword_v, VT_DWORD, 255, 255),
};
constexpr int N = int(std::size(FIELDS));

// The form: a page and one field per entry, field i at (20 + 500 (i / 8), 20 + 60 (i % 8)),
// each line keeping its record in slot i of the form's structure.
struct EditForm {
    FORM_HEAD head;
    OBJ* slot[N + 1];
};
int field_x(int i) { return 20 + 500 * (i / 8); }
int field_y(int i) { return 20 + 60 * (i % 8); }

FORM make_form() {
    auto* lines = new FORM_OBJECT[N + 1];  // lives as long as the program, as tables do
    lines[0] = form_head(TPage, "edits", sizeof(EditForm)).size(730, 500).colours(0xC0C0C0DB, 0, 0);
    for (int i = 0; i < N; i++) {
        const Field& f = FIELDS[i];
        lines[i + 1] = form_line(1, TEdit, "field", 0).at(field_x(i), field_y(i)).size(200, 22).colours(255, 0, 0)
                           .frame(2).font(0, 1, 1).caption("unit").bind(f.var, f.type)
                           .number(f.decimals, f.digits).flagged(OF_FOCUS | OF_EDIT).every(f.every).enable();
    }
    for (int i = 0; i <= N; i++) lines[i].member = uint32_t(offsetof(EditForm, slot) + sizeof(OBJ*) * size_t(i));
    return FORM(lines, N + 1);
}
const FORM form_lines = make_form();
EditForm* form_ptr = nullptr;
void form() { form_run(form_lines, reinterpret_cast<void**>(&form_ptr)); }
void form_free() { form_release(form_lines, reinterpret_cast<void**>(&form_ptr)); }

void check_texts() {
    FUZZ_CHECK(strnlen(edit_string, EDIT_STRING) < EDIT_STRING);
    for (const char* s : {text_v, pass_v, boxed_v}) FUZZ_CHECK(strnlen(s, VAR_STRING) < VAR_STRING);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > CAP) return -1;
    // The page stays loaded from input to input (loading it costs more than the keys);
    // each input starts with nothing typed, no focus and the variables at 0.
    static FormDriver driver;
    static const bool loaded = (driver.start(form, form_free), true);
    (void)loaded;
    in_edit = old_edit = obj_focus = 0;
    edit_string[0] = 0;
    for (const Field& f : FIELDS) std::memset(f.var, 0, f.bytes);
    driver.key_up();
    driver.release();
    driver.pass();
    // 0xF0 to 0xFF press a field; other bytes are keys, each held for one pass; a key is
    // released first only when the same key follows (typing sees a change of key).
    int held = 0;
    for (size_t i = 0; i < size; i++) {
        const uint8_t b = data[i];
        if (b >= 0xF0 || b == held) {
            driver.key_up();
            driver.pass();
            held = 0;
        }
        if (b >= 0xF0) {
            const int f = (b & 15) % N;
            driver.click(field_x(f) + 10, field_y(f) + 10);
        } else {
            driver.key_down(b);
            driver.pass();
            held = b;
        }
        check_texts();
    }
    return 0;
}
