/* Compiled as C11 against include/kovra.h and linked with the shared libkovra. */
#include <stdio.h>
#include <string.h>

#include "kovra.h"

static int ticks;

static void on_wait(int event, int handle, int background_mode, void *context) {
  (void)event;
  (void)handle;
  (void)background_mode;
  (void)context;
  ++ticks;
}

int main(void) {
  char text[64];
  int length;

  if (KOVRA_GetLastError(42) != KOVRA_ERR_PORT_INVALID) {
    fprintf(stderr, "an unknown handle must read as error 3\n");
    return 1;
  }
  memset(text, 0, sizeof text);
  length = KOVRA_GetErrorText(42, KOVRA_LANG_ENGLISH, text, (int)sizeof text - 1);
  if (length != (int)strlen("Port number invalid") || strcmp(text, "Port number invalid") != 0) {
    fprintf(stderr, "unexpected text for an unknown handle: '%s'\n", text);
    return 1;
  }
  if (KOVRA_GetErrorText(42, KOVRA_LANG_GERMAN, NULL, 10) != 0) return 1;
  if (KOVRA_SetWaitHandler(on_wait, NULL) != 0 || KOVRA_SetWaitHandler(NULL, NULL) != 0) return 1;
  if (KOVRA_SetBackgroundMode(42, 1) != -1) return 1;
  printf("C consumer: header and library fit together\n");
  return 0;
}
