#include "ui/ModGlobal.h"

namespace glintmark::ui {

QString strExtractPath;

} // namespace glintmark::ui
