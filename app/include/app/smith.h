// The Smith chart of the S11 tab: the chart image bitmap1 with the S11 curve and the
// marker drawn over it, and a press on the chart that moves the marker.
#pragma once

void page1_panel7_onentry();
void page1_bitmap1_onentry();
void page1_bitmap1_onmousepress();
