#pragma once
// The program's private temporary folder and the work folder inside it.
//
// The temporary folder is QDir::tempPath() + "/jacketeer-<uid>", the work
// folder its sub-folder "JKTTemp". Both are created with mode 0700 and are
// only accepted when they are real folders (not links) owned by the user;
// every check is made on the opened folder itself, so nothing can be swapped
// in between the check and the use. The work folder holds the scratch parts
// of the last saved or opened project, the work copies of picture layers and
// the pictures taken out of opened projects; it is removed at exit.

#include <QString>

class TCoverDocument;

// Scratch files of the project file, inside the work folder.
inline constexpr const char* kProjectInfoFile = "JKTInfo.ctf";
inline constexpr const char* kProjectImageFile = "JKTImage.ctf";

// The temporary folder's path (no trailing separator).
QString TemporaryFolderPath();
// The work folder's path (no trailing separator).
QString WorkFolderPath();

// Creates `path` as a private folder (mode 0700) when missing, or accepts an
// existing one that is a real folder owned by the user (its mode is then
// narrowed to 0700). Its parent must exist. False with a reason otherwise.
bool EnsurePrivateFolder(const QString& path, QString& error);

// Creates the temporary folder and the work folder in it, and empties the
// work folder of whatever an earlier run left there (without following
// links). On success `workFolder` is the work folder's path.
bool CreateWorkFolder(QString& workFolder, QString& error);

// Creates the work folder and points the document's work copies at it.
bool AttachWorkFolder(TCoverDocument& document, QString& error);

// Deletes `path` with everything in it. Links inside are removed as links;
// nothing outside the folder is ever touched. A `path` that is itself a link
// is refused. False when something could not be removed.
bool RemoveFolderTree(const QString& path);

// Removes the work folder (at exit).
bool RemoveWorkFolder();
