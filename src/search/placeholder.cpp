// search
