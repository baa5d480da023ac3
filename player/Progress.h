// The song line's time texts.
#pragma once

#include <QString>

// Milliseconds as minutes, a colon and two-digit seconds: 185600 gives "3:05",
// 3600000 gives "60:00". Negative times show as "0:00".
QString FormatTime(qint32 ms);
