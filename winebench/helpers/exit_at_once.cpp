// Stands in for a launcher that ends at once, whatever its command line:
// exits with code 3 and creates no window.
int main() { return 3; }
