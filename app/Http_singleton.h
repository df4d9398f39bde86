#pragma once

#include <QObject>
#include <QString>

#include <atomic>

// The application's identity and its few process-wide settings. Created on first use,
// never destroyed.
class Http_singleton : public QObject
{
    Q_OBJECT
public:
    static Http_singleton* instance();

    QString get_product_name() const;
    QString get_application_name() const;
    QString get_version() const;
    QString get_build_date() const;
    QString get_log_file_name() const;
    QString get_apps_url() const;
    bool is_dev_build() const;
    bool get_build_flag() const;

    int get_display_count() const;
    void set_display_count(int count);
    int get_max_display_count() const;

    QString get_log_directory() const;
    bool has_custom_settings() const;
    bool skip_crash_report() const;
    void set_update_check_ok(bool ok);
    bool update_check_ok_value() const;

    static QString sha256_hex(const QString& text);
    QString build_access_header(const QString& extra_key, bool use_extra_key) const;

    // The header from explicit parts; build_access_header fills them from the object
    // and the current local time ("yyyyMMddHHmmss").
    static QString compose_access_header(const QString& product_name, const QString& version,
                                         const QString& time_text, const QString& nonce,
                                         const QString& extra_part);

signals:
    void motion_draw();

private:
    Http_singleton();
    ~Http_singleton() override;

    QString nonce;
    QString log_directory;
    QString access_extra_key{QStringLiteral("")};
    std::atomic<int> display_count{0};
    int max_display_count{4};
    bool custom_settings{false};
    bool skip_crash_report_flag{false};
    std::atomic<bool> update_check_ok{false};
};
