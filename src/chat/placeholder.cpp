// chat
