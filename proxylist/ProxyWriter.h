#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

class ProxyTableModel;

// Rows of the table in each form they leave the program, top to bottom as given. The window's saves and clipboard
// and korvane-cli all write through here.
namespace ProxyWriter {
// Each row's text exactly as loaded, one byte per character as a list file holds it, followed by lineEnd: CR LF
// in the lists the window writes, LF in korvane-cli's. A row without a scheme gets bareScheme before it.
QByteArray list(const ProxyTableModel &table, const std::vector<int> &rows, QByteArrayView lineEnd = "\r\n",
                QByteArrayView bareScheme = {});
// Text, status, anonymity and the time in milliseconds ("-" for none), tab-separated, one line per row. A tab, CR,
// LF or backslash of the text would break the line apart: they are written \t, \r, \n and \\.
QByteArray tabSeparated(const ProxyTableModel &table, const std::vector<int> &rows);
// One JSON array of {"proxy", "status", "anonymity", "ms"} objects, in UTF-8; "ms" is a number or null.
QByteArray json(const ProxyTableModel &table, const std::vector<int> &rows);
} // namespace ProxyWriter
