#pragma once

#include <QString>

// The host part of a host:port text: the text before the first separator, trimmed of blanks, when the separator
// is found after the first character; otherwise the whole text.
QString GetProxyHost(const QString &text, const QString &separator);
// The port part: the text after the first separator up to the next one, trimmed of blanks; empty when the host
// part is. A loaded row may read 10.0.0.1:80:9, and the loader only checked the 80.
QString GetProxyPort(const QString &text, const QString &separator);
