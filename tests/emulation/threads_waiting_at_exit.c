/* Threads waiting for an event that never comes while the process ends: ExitProcess has to end
 * them. Natively it prints its line and ends with status 0.
 *   threads_waiting_at_exit [THREADS]   (4 when not given) */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

static HANDLE never;

static DWORD WINAPI Wait(void* unused) {
  (void)unused;
  WaitForSingleObject(never, INFINITE);
  return 0;
}

int main(int argc, char** argv) {
  int threads = argc > 1 ? atoi(argv[1]) : 4;
  never = CreateEventW(NULL, TRUE, FALSE, NULL);
  for (int i = 0; i < threads; ++i) CloseHandle(CreateThread(NULL, 0, Wait, NULL, 0, NULL));
  Sleep(500);
  printf("%d threads waiting; ending the process\n", threads);
  fflush(stdout);
  return 0;
}
