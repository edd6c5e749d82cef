#pragma once

// Bar position (percent of the whole bar) for a percentage of the current
// progress stage [sProgressStart, sProgressEnd]; an end of 0 is read as 100.
int MapProgress(int percent);
