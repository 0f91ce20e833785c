/* A program that only carries a version resource (or none) for the version
   information tests. */
int main(void) { return 0; }
