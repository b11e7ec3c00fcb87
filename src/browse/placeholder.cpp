// browse
