// Reading and writing the settings file beside the program.
#pragma once

void LoadSettingsFile(const char* programDirectory);
void SaveSettingsFile(const char* text);
