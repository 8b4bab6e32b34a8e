#pragma once

#include <QString>

namespace glintmark::ui {

// The output folder last confirmed in the folder chooser; empty until then.
extern QString strExtractPath;

} // namespace glintmark::ui
