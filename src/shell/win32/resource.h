#pragma once

// Resource ids shared by brevalt.rc and the code. Plain macros: the resource
// compiler reads this file too.
#define IDI_BREVALT 1
#define IDI_BREVALT_NONE 2
