// The string rules of the output location: the special directory forms,
// trailing backslashes and drive roots, the split of a stored path, the file
// name check and completion, and the Save-As preset. Portable: the current
// directory is handed in, so every rule can be checked without a file system.
// Every output buffer here holds PATH_BUFFER (261) bytes.
#pragma once

#include <cstddef>

// Rewrites a directory text in place: "\\\\" the parent of the current
// directory (kept at or right below a drive root), ".\\" the current
// directory, "\\" the root of the current drive; any other text loses one
// trailing backslash unless that backslash follows a colon.
void NormalizeDirectoryText(char* text, const char* currentDirectory);

// Cuts a full file name to its directory: at the last backslash, or right
// after it when it follows a colon (a drive root keeps its backslash).
void CutToDirectory(char* path);

// Splits a stored path into directory and file name (fileOut may be null:
// then the whole resolved text is the directory). 1, or 0 when a part does
// not fit 260 characters: the outputs are then empty, which no location
// check accepts (a path is never shortened into another one).
int SplitOutputPathText(const char* path, const char* currentDirectory, char* directoryOut, char* fileOut);

// True when the name holds one of the characters not allowed in a file name.
bool HasForbiddenFileNameChar(const char* name);

// Completes the extension: ".txt" appended when there is no dot, a name such
// as scan.txtold cut to scan.txt. Returns 0 when ".txt" would not fit the
// 260-character buffer (the name is then left as it was), else 1.
int CompleteFileNameExtension(char* name);

// The file-name half of the location check: allowed characters, the
// extension completed, and directory + "\\" + name within 260 characters.
int CheckOutputFileName(const char* directory, char* fileName);

// The Save-As dialog's initial file text (fileBufferSize bytes, the dialog's
// buffer): directory and name joined when the directory holds a backslash and
// the name is not empty; when that does not fit, the name alone; else empty.
void BrowsePresetText(const char* workDirectory, const char* fileName, char* out, size_t fileBufferSize);

// Splits the path chosen in the Save-As dialog at its last backslash. Returns
// 0 (outputs unchanged) when there is none or a part does not fit.
int SplitChosenPath(const char* chosen, char* directoryOut, char* fileOut);
