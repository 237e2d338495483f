// progman_client: a small DDE client of the "PROGMAN" service for the Wine tests: it shows
// which server answers (Wine's shell or progman_standin) and what it answers.
//
// Usage: progman_client request ITEM...  prints each CF_TEXT answer, all in one
//                                        conversation; exit 3 when one has no answer
//        progman_client execute COMMAND  exit 0 when acknowledged, 3 otherwise
// Exit 1 when no "PROGMAN" service accepts the conversation.
#include <windows.h>
#include <ddeml.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

HDDEDATA CALLBACK ClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || (strcmp(argv[1], "request") != 0 && strcmp(argv[1], "execute") != 0) ||
      (strcmp(argv[1], "execute") == 0 && argc != 3)) {
    fprintf(stderr, "usage: progman_client request ITEM... | execute COMMAND\n");
    return 2;
  }
  DWORD instance = 0;
  if (DdeInitializeA(&instance, ClientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
    fprintf(stderr, "progman_client: DdeInitialize failed\n");
    return 1;
  }
  HSZ service = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
  HCONV conversation = DdeConnect(instance, service, service, nullptr);
  if (conversation == nullptr) {
    fprintf(stderr, "progman_client: no PROGMAN service (error %u)\n", DdeGetLastError(instance));
    DdeUninitialize(instance);
    return 1;
  }
  int exitCode = 3;
  if (strcmp(argv[1], "request") == 0) {
    exitCode = 0;
    for (int i = 2; i < argc; ++i) {
      HSZ item = DdeCreateStringHandleA(instance, argv[i], CP_WINANSI);
      HDDEDATA data = DdeClientTransaction(nullptr, 0, conversation, item, CF_TEXT,
                                           XTYP_REQUEST, 5000, nullptr);
      if (data != nullptr) {
        DWORD size = DdeGetData(data, nullptr, 0, 0);
        std::string text(size, '\0');
        if (size > 0) DdeGetData(data, reinterpret_cast<BYTE*>(&text[0]), size, 0);
        text.resize(strnlen(text.c_str(), text.size()));
        fwrite(text.data(), 1, text.size(), stdout);
        DdeFreeDataHandle(data);
      } else {
        fprintf(stderr, "progman_client: no answer to %s (error %u)\n", argv[i],
                DdeGetLastError(instance));
        exitCode = 3;
      }
      DdeFreeStringHandle(instance, item);
    }
  } else {
    DWORD length = static_cast<DWORD>(strlen(argv[2])) + 1;
    HDDEDATA result = DdeClientTransaction(reinterpret_cast<BYTE*>(argv[2]), length,
                                           conversation, nullptr, 0, XTYP_EXECUTE, 5000, nullptr);
    if (result != nullptr) {
      exitCode = 0;
    } else {
      fprintf(stderr, "progman_client: execute refused (error %u)\n", DdeGetLastError(instance));
    }
  }
  DdeDisconnect(conversation);
  DdeFreeStringHandle(instance, service);
  DdeUninitialize(instance);
  return exitCode;
}
