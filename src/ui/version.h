#pragma once
// The program's version, as the build gives it (QUARBE_VERSION, the
// project's version such as "1.1.0.1"), and the major.minor form the window
// caption and the About box show ("1.1").

#include <QString>

#ifndef QUARBE_VERSION
#error "QUARBE_VERSION must be defined by the build"
#endif

namespace quarbe {

inline QString ProgramVersion() { return QStringLiteral(QUARBE_VERSION); }

inline QString ShortVersion() { return ProgramVersion().section(u'.', 0, 1); }

}  // namespace quarbe
