#pragma once
// The numbers of the program's resources, shared by ornivel.rc and the code that loads them.
// Plain macros: the resource compiler reads this file too.

#define ORNIVEL_ICON_RESOURCE 1         // the program's icon group
#define ORNIVEL_TIP_PICTURE_RESOURCE 2  // the tip dialog's picture, a baseline JPEG (RCDATA)
