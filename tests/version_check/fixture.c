/* A program that only carries a version record; the tests read it, never run it. */
int main(void) {
  return 0;
}
