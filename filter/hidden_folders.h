#pragma once
// A site's cache and log folders belong to the filter: their files (other requests'
// compressed pages, every page the site served) are never served by the site itself.

#include <string_view>

#include "platform/isapi/httpfilt.h"
#include "settings/site_settings.h"

namespace filter {

// Whether the Windows path lies inside the site's cache or log folder (or is one of them),
// as the load spelled them plainly, compared as Windows does: without regard to case, either
// separator. A folder that holds the site's whole root counts as none.
bool InsideFilterFolder(std::string_view path, const settings::SiteSettings& site);

// Answers 404 itself; the caller returns SF_STATUS_REQ_FINISHED.
void AnswerNotFound(HTTP_FILTER_CONTEXT* pfc);

}  // namespace filter
