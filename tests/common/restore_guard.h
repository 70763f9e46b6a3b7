// Puts a process-wide record (settings, keyboardIo, settingsFilePath, ...)
// back as it was when the guard was made, however the test leaves its scope.
// Shared by the native and the Win32 tests.
#pragma once

#include <cstring>
#include <type_traits>

template <typename T>
class Restore {
public:
    explicit Restore(T& target) : target_(target) { std::memcpy(&saved_, &target, sizeof(T)); }
    // Saves the record, then gives it a value for the test.
    Restore(T& target, const T& value) : Restore(target) { std::memcpy(&target, &value, sizeof(T)); }
    ~Restore() { std::memcpy(&target_, &saved_, sizeof(T)); }
    Restore(const Restore&) = delete;
    Restore& operator=(const Restore&) = delete;

private:
    static_assert(std::is_trivially_copyable_v<T>, "a plain record, copied byte for byte");
    T& target_;
    T saved_;
};
