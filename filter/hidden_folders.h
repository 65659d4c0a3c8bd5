#pragma once
// What the filter keeps in a site's cache and log folders (other requests' compressed pages,
// every page the site served) is never served by the site itself.

#include <string_view>

#include "platform/isapi/httpfilt.h"
#include "settings/site_settings.h"

namespace filter {

// Whether the Windows path names what the filter keeps there: a copy below the cache
// folder's "korvanecompress", or a statistics file of the log folder. Both folders as the load
// spelled them plainly, compared as Windows does: without regard to case, either separator,
// trailing dots and blanks, short names.
bool InsideFilterFolder(std::string_view path, const settings::SiteSettings& site);

// Answers 404 itself; the caller returns SF_STATUS_REQ_FINISHED.
void AnswerNotFound(HTTP_FILTER_CONTEXT* pfc);

}  // namespace filter
