/*
#pragma once
*/
int COMMENT_NAME;
