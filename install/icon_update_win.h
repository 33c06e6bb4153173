// Desktop icon refresh from the portal's icon description, and the cache
// housekeeping of the browser and the Flash player.
#pragma once
#include <string>

// The icon description's address.
std::wstring IconDescriptionUrl();
void UpdateDesktopIcon();
void StartCacheCleaning();
void CleanFlashObjects();
void CleanBrowserCache();
