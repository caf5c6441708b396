// Quarbe: distance, azimuths and antenna pointing between a vehicle and a
// correspondent station.
#include "ui/application.h"

int main(int argc, char** argv) {
  quarbe::CBearingApp app(argc, argv);
  return app.Run();
}
