// The viewer's unit-level state: it lives for the whole run, outside any window.
#pragma once

#include <QString>
#include <array>
#include <memory>

#include "app/Unit2Catalogue.h"

namespace sphaerix {

class TResourceStream;

// The per-user data folder "<Documents>/Quorvane/Sphaerix/", empty when the desktop names
// no Documents folder. The screenshot dialog opens there.
extern QString DataFolder;
extern std::array<QString, BodyCount> BodyFacts;
// One read-only stream over each embedded body map, open from the main window's creation
// to its close.
extern std::array<std::unique_ptr<TResourceStream>, BodyCount> BodyTextures;
// The body most recently requested.
extern int CurrentBody;

// The desktop's Documents folder (the XDG Documents directory); a relative setting counts
// as none, giving "Documents" in the home folder.
QString DocumentsFolder();
// Fills DataFolder from the desktop's Documents folder and creates the two missing levels.
// Returns false (DataFolder empty) when no Documents folder can be named.
bool PrepareDataFolder();
// The same from a given Documents path (empty: none known). Creation failures are ignored.
bool PrepareDataFolderFrom(const QString& ADocuments);
// The data folder below ADocuments, with one "/" between the parts and one at the end;
// empty for an empty ADocuments. Only forms the path.
QString DataFolderPath(const QString& ADocuments);

}  // namespace sphaerix
