// Edit fields: any sequence of keys and presses typed into fields of every variable type,
// with field widths and decimals from none to more than the typing buffer holds.
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

constexpr size_t CAP = 512;  // keys and presses

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
    uint8_t type;
    int decimals, digits;
    int every = 0;
};
const Field FIELDS[] = {
    {&byte_v, VT_BYTE, 0, 5},       {&ubyte_v, VT_UBYTE, 1, 5},   {&word_v, VT_WORD, 2, 7},
    {&uword_v, VT_UWORD, 0, 0},     {&dword_v, VT_DWORD, 0, 12},  {&udword_v, VT_UDWORD, 3, 9},
    {&real_v, VT_REAL, 2, 7},       {&real2_v, VT_REAL, 40, 255}, {&double_v, VT_DOUBLE, 6, 20},
    {&text_v, VT_STRING, 0, 9},     {&pass_v, VT_PASSWORD, 0, 9}, {&boxed_v, VT_STRING, 0, 255, 2},
    {&word_v, VT_WORD, 9, 3},       {&dword_v, VT_DWORD, 255, 255},
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
    lines[0] = form_head(TPage, "edits", sizeof(EditForm)).size(1024, 600).colours(0xC0C0C0DB, 0, 0);
    for (int i = 0; i < N; i++) {
        const Field& f = FIELDS[i];
        lines[i + 1] = form_line(1, TEdit, "field", 0).at(field_x(i), field_y(i)).size(200, 22).colours(255, 0, 0)
                           .frame(2).font(33, 2, 8, T_Arial_Unicode_MS_12).caption("unit").bind(f.var, f.type)
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
    FormDriver driver;
    in_edit = old_edit = obj_focus = 0;
    edit_string[0] = 0;
    driver.start(form, form_free);
    driver.pass();
    // 0xF0 to 0xFF press a field; other bytes are keys (held one pass, released one pass).
    for (size_t i = 0; i < size; i++) {
        const uint8_t b = data[i];
        if (b >= 0xF0) {
            const int f = (b & 15) % N;
            driver.click(field_x(f) + 10, field_y(f) + 10);
        } else {
            driver.key(b);
        }
        check_texts();
    }
    return 0;
}
