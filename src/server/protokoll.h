#pragma once
// The change log's forms: lists as JSON arrays, every value exact, and lists
// compared as multisets (the order of a list is not a change).

#include <QString>
#include <QStringList>

#include <vector>

namespace Protokoll {
QString Json(const std::vector<QString>& werte);
// A JSON array back into its values; empty for anything else.
std::vector<QString> Werte(const QString& json);
// The same values, each as often, in any order.
bool GleicheMenge(std::vector<QString> a, std::vector<QString> b);
} // namespace Protokoll
