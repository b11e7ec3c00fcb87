// zestrel-cookbook: stands in for the recipe manager that owns cookbook.db.
int main() { return 0; }
