#include "app/Http_singleton.h"

#include "app/Version.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QSysInfo>

#ifndef ZR_APPS_URL
#define ZR_APPS_URL "https://apps.zrnova.invalid/zrapps/"
#endif

Http_singleton* Http_singleton::instance()
{
    static Http_singleton* object = new Http_singleton();
    return object;
}

Http_singleton::Http_singleton() = default;
Http_singleton::~Http_singleton() = default;

QString Http_singleton::get_product_name() const
{
    return QStringLiteral("ZRPLAYER").replace(QStringLiteral("__"), QStringLiteral(" "));
}

QString Http_singleton::get_application_name() const { return QStringLiteral("ZRPlayer"); }
QString Http_singleton::get_version() const { return QStringLiteral(ZR_VERSION); }
QString Http_singleton::get_build_date() const { return QStringLiteral("20170207"); }
QString Http_singleton::get_log_file_name() const { return QStringLiteral("zrlogfile.log"); }
QString Http_singleton::get_apps_url() const { return QStringLiteral(ZR_APPS_URL); }
bool Http_singleton::is_dev_build() const { return false; }

bool Http_singleton::get_build_flag() const
{
    return QStringLiteral("0") == QStringLiteral("1");
}

int Http_singleton::get_display_count() const { return display_count.load(); }

void Http_singleton::set_display_count(int count)
{
    display_count.store(count < 0 ? 0 : count);
}

int Http_singleton::get_max_display_count() const { return max_display_count; }
QString Http_singleton::get_log_directory() const { return log_directory; }
bool Http_singleton::has_custom_settings() const { return custom_settings; }
bool Http_singleton::skip_crash_report() const { return skip_crash_report_flag; }
void Http_singleton::set_update_check_ok(bool ok) { update_check_ok.store(ok); }
bool Http_singleton::update_check_ok_value() const { return update_check_ok.load(); }

QString Http_singleton::sha256_hex(const QString& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QString Http_singleton::compose_access_header(const QString& product_name, const QString& version,
                                              const QString& time_text, const QString& nonce_text,
                                              const QString& extra_part)
{
    QString header;
    if (product_name == QLatin1String("ZRNOVA ACCESS"))
        header = QStringLiteral("ZRNOVA-ACCESS-") + version;
    else
        header = product_name + QStringLiteral("/ZRNOVA-ACCESS-") + version;

    header += QStringLiteral(" (") + QStringLiteral("OS ") + QSysInfo::productType() + QLatin1Char('_')
        + QSysInfo::kernelVersion() + QLatin1Char('_') + QSysInfo::currentCpuArchitecture()
        + QStringLiteral("; ") + QStringLiteral("access_time ") + time_text + QStringLiteral("; ")
        + QStringLiteral("nonce ") + nonce_text + QStringLiteral("; ");

    const QString key = sha256_hex(QStringLiteral("ZRNOVA-ACCESS") + time_text + nonce_text
                                   + QStringLiteral("Lim@sTundra!") + extra_part);
    header += QStringLiteral("access_key ") + key + QLatin1Char(')');
    return header;
}

QString Http_singleton::build_access_header(const QString& extra_key, bool use_extra_key) const
{
    const QString time_text = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"));
    QString extra;
    if (use_extra_key && !extra_key.isEmpty())
        extra = extra_key;
    else if (use_extra_key && !access_extra_key.isEmpty())
        extra = access_extra_key;
    return compose_access_header(get_product_name(), get_version(), time_text, nonce, extra);
}
