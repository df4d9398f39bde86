#pragma once

// libcurl's process-wide set-up, made once by the first caller and never undone: every
// transfer of the program (downloads, probes, camera requests) shares it, so no transfer
// may tear it down while another runs. Thread-safe.
void curl_global_once();
