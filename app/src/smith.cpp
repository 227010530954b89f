// The Smith chart. The curve and the marker come with the measurement display; until then
// the chart image shows alone.
#include "app/smith.h"

void page1_panel7_onentry() {}
void page1_bitmap1_onentry() {}
void page1_bitmap1_onmousepress() {}
