#include "app/CurlGlobal.h"

#include <curl/curl.h>

#include <mutex>

void curl_global_once()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}
