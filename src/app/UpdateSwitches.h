#pragma once

#include <QString>
#include <QTextStream>

#include <optional>

namespace quillet {

class Engine;

// The updater's automation switches, for release tooling and scripted runs:
//   -verifyUpdate PATH  checks a zip archive or a Quillet.AppDir offline (signature and build;
//                       there is no digest to compare), prints the outcome, exits 0 or 1;
//   -updateNow true     runs one check as if the user had asked, installing a newer build.
// Returns the exit code when one of them was given, nullopt otherwise.
std::optional<int> runUpdateSwitches(Engine& engine, QTextStream& out, QTextStream& err);

// -verifyUpdate with the given trust: `publicKey` (minisign key text) and the running build.
int verifyUpdate(const QString& path, const QString& publicKey, qint64 runningBuild,
                 QTextStream& out, QTextStream& err);

} // namespace quillet
