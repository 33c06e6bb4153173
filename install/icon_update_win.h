// Desktop icon refresh from the portal's icon description.
#pragma once

void UpdateDesktopIcon();
