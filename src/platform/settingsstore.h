#pragma once
// Per-user settings of application "Cache Login", section "Login". The file
// holds the scrambled password, so only its owner may read it.

#include <QString>

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    virtual QString Get(const QString& key, const QString& vorgabe = {}) const = 0;
    virtual void Set(const QString& key, const QString& value) = 0;
};

class IniSettingsStore final : public SettingsStore {
  public:
    // The default location: ~/.config/KORVAL/Cache Login.ini
    IniSettingsStore();
    explicit IniSettingsStore(QString path) : m_path(std::move(path)) {}
    QString Get(const QString& key, const QString& vorgabe = {}) const override;
    void Set(const QString& key, const QString& value) override;
    const QString& Path() const { return m_path; }
    static QString DefaultPath();

  private:
    QString m_path;
};
