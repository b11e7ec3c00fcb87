// net
