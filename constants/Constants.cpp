#include "constants/Constants.h"

constinit const ScrambledText<62> IconKeyPath =
    Scramble<62>("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Icons");
constinit const ScrambledText<35> RefreshKeyPath =
    Scramble<35>("Control Panel\\Desktop\\WindowMetrics");
constinit const ScrambledText<15> RefreshValueName = Scramble<15>("Shell Icon Size");
constinit const ScrambledText<13> RestoreReference = Scramble<13>("shell32.dll,4");
constinit const ScrambledText<10> IconLibraryName = Scramble<10>("pivane.dll");
constinit const ScrambledText<10> OldLibraryName = Scramble<10>("pivact.dll");
constinit const ScrambledText<22> TrailerLine = Scramble<22>("À bientôt avec Pivane.");
