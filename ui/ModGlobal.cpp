#include "ui/ModGlobal.h"

QString strExtractPath;
