// The process entry of the chat example: hands the translated program to the runtime.
#include "chat.h"

int main(int argc, char** argv) {
  const Application app{&chat::settings, &chat::globalSetup, &chat::globalTeardown, &chat::mainProgram,
                        chat::kCallByName};
  return RunApplication(argc, argv, app);
}
