// The process-wide settings record, its text form (settings file and command
// line) and how much of the stored path is output location.
// Portable: no platform calls here; the file reading and writing live in
// settings_file.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

enum InterfaceKind : uint8_t { RS232_IRDA = 0, CRADLE_IR = 1, MODEM_TAPI = 2, MODEM_COM = 3 };

enum SaveMode : uint8_t {
    OVERWRITE = 0,
    APPEND = 1,
    KEYBOARD_EMULATION = 2,
    AUTO_FILE_NAME = 3,
    AUTO_APPEND = 4,
};

// 0 = 115200, 1 = 57600, 2 = 38400, 3 = 19200, 4 = 9600 bit/s.
// (Named BAUD_INDEX_*: windows.h has macros named BAUD_115200 and the like.)
enum BaudIndex : uint8_t {
    BAUD_INDEX_115200 = 0,
    BAUD_INDEX_57600 = 1,
    BAUD_INDEX_38400 = 2,
    BAUD_INDEX_19200 = 3,
    BAUD_INDEX_9600 = 4,
};

enum PathModeKind : int { PATH_NONE = 0, PATH_DIRECTORY = 1, PATH_DIRECTORY_AND_FILE = 2 };

constexpr int MAX_PATH_CHARS = 260;                  // directory, "\\" and file name together
constexpr int PATH_BUFFER = MAX_PATH_CHARS + 1;      // 261 bytes with the NUL
constexpr int SETTINGS_TEXT_CAPACITY = 360;          // composed settings text, and the file read
constexpr int COMMAND_LINE_LIMIT = 360;              // a command line this long is refused

struct Settings {
    InterfaceKind interfaceKind;
    int32_t comPort;
    BaudIndex baudIndex;
    SaveMode saveMode;
    uint8_t addReturn;
    uint8_t addLineFeed;
    uint8_t showErrorMessages;
    uint8_t viewReceivedData;
    uint8_t alwaysShowDialog;
    uint8_t keepOnline;
    int32_t pollingTime;      // seconds
    int32_t interCharDelay;   // milliseconds
    uint8_t commandLineMode;
    char storedPath[PATH_BUFFER + 1];
    char outputDirectory[PATH_BUFFER];
    char outputFileName[PATH_BUFFER];
};

// The one settings record. Who writes it:
// - every field: the defaults and the settings text (this file's functions),
//   at start-up, and the settings dialog's OK, which takes every control;
// - interfaceKind, saveMode and keepOnline also while the dialog is open, on
//   each change of their controls, so the enable rules read the record;
// - outputDirectory and outputFileName also start-up's split of storedPath
//   and check of the location, and the dialog's browse and Save-As buttons;
//   outputFileName also the output file, which stores the automatic name it
//   made (AUTO_FILE_NAME);
// - keepOnline also start-up, which clears it for APPEND.
// Everything else only reads it. Error reporting reads showErrorMessages and
// outputDirectory through the pointers start-up gives it.
extern Settings settings;
extern char settingsFilePath[PATH_BUFFER];

void SetSettingsFileDefaults();
void SetCommandLineDefaults();

// Overwrites the fields that the text carries validly; keeps the rest.
void ParseSettingsText(const char* text);

// Copies source into out (at least limit + 1 bytes) without leading and
// trailing blanks; a source longer than limit is cut to limit - 2 first.
void TrimBlanks(const char* source, int limit, char* out);

// Writes the 13-line settings text into out (SETTINGS_TEXT_CAPACITY bytes).
// Returns its length.
int FormatSettingsText(const Settings& record, char* out);

PathModeKind PathMode(SaveMode mode);

// Sets the command-line defaults and parses the command line (portable half of
// loading; the file half is LoadSettingsFile).
void LoadSettingsCommandLine(const char* commandLine);

// The settings part of the process command line: the text after the
// program's own name (a quoted name is skipped with its quotes) and after the
// blanks and control characters that follow it.
const char* SettingsCommandLine(const char* processCommandLine);
