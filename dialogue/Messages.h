// The fixed texts the flows hand to the dialogue, in Windows-1252.
#pragma once

#include "constants/Cp1252Text.h"

inline constexpr auto InstallQuestion =
    Cp1252("L'option n'est pas installée. Voulez-vous l'installer ?");
inline constexpr auto UninstallQuestion =
    Cp1252("L'option est installée. Voulez-vous la désinstaller ?");
inline constexpr auto InstalledOutcome = Cp1252("L'icône de l'explorateur a été modifiée.");
inline constexpr auto RestoredOutcome = Cp1252("L'icône de l'explorateur a été restaurée.");
// Under /I or /U, where the option is already as asked.
inline constexpr auto AlreadyInstalled =
    Cp1252("L'option est déjà installée. Rien n'a été modifié.");
inline constexpr auto AlreadyUninstalled =
    Cp1252("L'option n'est pas installée. Rien n'a été modifié.");
