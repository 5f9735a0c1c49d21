#ifndef HIGHDPI_H
#define HIGHDPI_H

// Call before the application object exists: windows then come out at the
// screen's scale (its density, or QT_SCALE_FACTOR) with sharp text and icons.
void enableHighDpiScaling();

#endif
