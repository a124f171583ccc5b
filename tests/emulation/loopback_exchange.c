/* Winsock on the loopback and two threads, nothing else: a server thread answers ROUNDS
 * connections with a short 404 reply while the main thread connects, sends, reads the reply to
 * its end and closes. Natively it prints "ROUNDS of ROUNDS exchanges" and ends with status 0.
 *   loopback_exchange [ROUNDS]   (300 when not given) */
#include <windows.h>
#include <winsock2.h>

#include <stdio.h>
#include <stdlib.h>

static SOCKET listener;
static int rounds = 300;

static DWORD WINAPI Serve(void* unused) {
  static const char reply[] = "HTTP/1.1 404 Not Found\r\nContent-Length: 5\r\n\r\nnope!";
  (void)unused;
  for (int i = 0; i < rounds; ++i) {
    SOCKET client = accept(listener, NULL, NULL);
    if (client == INVALID_SOCKET) return 1;
    char buffer[512];
    if (recv(client, buffer, sizeof buffer, 0) > 0) send(client, reply, sizeof reply - 1, 0);
    closesocket(client);
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc > 1) rounds = atoi(argv[1]);
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  listener = socket(AF_INET, SOCK_STREAM, 0);
  struct sockaddr_in address = {0};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener, (struct sockaddr*)&address, sizeof address);
  listen(listener, 16);
  int length = sizeof address;
  getsockname(listener, (struct sockaddr*)&address, &length);
  HANDLE server = CreateThread(NULL, 0, Serve, NULL, 0, NULL);
  int answered = 0;
  for (int i = 0; i < rounds; ++i) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    DWORD timeout = 5000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, (const char*)&timeout, sizeof timeout);
    if (connect(s, (struct sockaddr*)&address, sizeof address) == 0 &&
        send(s, "GET / HTTP/1.1\r\n\r\n", 18, 0) == 18) {
      char buffer[512];
      int total = 0, n;
      while ((n = recv(s, buffer, sizeof buffer, 0)) > 0) total += n;
      if (total > 0) ++answered;
    }
    closesocket(s);
  }
  WaitForSingleObject(server, INFINITE);
  printf("%d of %d exchanges\n", answered, rounds);
  fflush(stdout);
  return answered == rounds ? 0 : 1;
}
