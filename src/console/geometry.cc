#include "console/geometry.h"

namespace console {

Resolution resolutionForTerminal(int columns, int rows) {
  Resolution resolution{columns >= ScreenColumns ? 1024 : 1023, 599};
  for (const HeightRow& row : HeightTable) {
    if (row.windowRows + 3 <= rows) resolution.height = row.height;
  }
  return resolution;
}

}  // namespace console
