#pragma once

#include <QString>

// The output folder last confirmed in the folder chooser; empty until then.
extern QString strExtractPath;
