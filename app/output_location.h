// Output location rules that touch the file system and the user: the
// directory forms resolved against the current directory, the check and
// creation of the output directory, and the Save-As dialog.
#pragma once

#include <windows.h>

void NormalizeDirectory(char* text);
void ProgramDirectory(char* buffer);
int SplitOutputPath(const char* path, char* directoryOut, char* fileOut);
int ValidateOutputPath(char* directory, char* fileName);
int BrowseOutputFile(HWND owner, char* directory, char* fileName);
