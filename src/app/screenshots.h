#pragma once

#include <QString>

// Renders each view and dialog, with the sample photograph loaded, into PNG
// files in `dir`. Uses a throw-away settings store. 0 on success.
int WriteScreenshots(const QString& dir);
