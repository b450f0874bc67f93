// The per-user profile: one section per window, read when a window is created and written
// when it goes. Stored with QSettings (organisation "Orvane", application "Orvane OPC") as an
// INI file under the user's configuration folder. A value that is missing or cannot be read
// as the requested type gives the caller's default.
#pragma once

#include <memory>
#include <string>

class QSettings;

class Profile {
public:
    Profile();
    ~Profile();
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;

    int GetInt(const std::string& section, const std::string& key, int defaultValue) const;
    void WriteInt(const std::string& section, const std::string& key, int value);
    std::string GetString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

    // Writes pending changes to the file now (they are written at destruction anyway).
    void Flush();

    // Puts the profile file under `folder` instead of the user's configuration folder. For
    // tests; call before any Profile exists.
    static void UseFolderForTesting(const std::string& folder);

private:
    std::unique_ptr<QSettings> settings_;
};
