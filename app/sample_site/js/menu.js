function menu() { return 1; }
