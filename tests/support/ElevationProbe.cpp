// Exits with IsElevated(): 0 when started elevated, 1 when not.
#include "support/SystemInfo.h"

int main() { return static_cast<int>(IsElevated()); }
