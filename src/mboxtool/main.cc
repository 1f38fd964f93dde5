// mboxtool: the POP3 tool that Mailvak runs for every server operation.
int main() { return 0; }
