#include "run.h"

int main(int argumentCount, char** arguments) {
  return runTuflat(argumentCount, arguments);
}
