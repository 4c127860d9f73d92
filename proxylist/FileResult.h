#pragma once

#include <QString>

// How reading or writing a list file ended: success, or the reason it failed in words the user can be shown.
struct FileResult
{
    bool ok = true;
    QString error;

    static FileResult success() { return {}; }
    static FileResult failure(const QString &reason) { return {false, reason}; }
    explicit operator bool() const { return ok; }
};
