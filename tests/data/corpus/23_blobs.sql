-- Text and binary blobs.
CREATE TABLE ARTICLE (
  ID INTEGER NOT NULL PRIMARY KEY,
  TITLE VARCHAR(100),
  BODY BLOB SUB_TYPE TEXT SEGMENT SIZE 4096,
  SUMMARY BLOB SUB_TYPE 1,
  RAW_DATA BLOB SUB_TYPE 0
);
INSERT INTO ARTICLE (ID, TITLE, BODY, SUMMARY) VALUES (1, 'Hello', 'A rather short article; it ends here.', 'Short');
INSERT INTO ARTICLE (ID, TITLE, BODY) VALUES (2, 'Long',
  'Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt ut labore et dolore magna aliqua. ' ||
  'Ut enim ad minim veniam, quis nostrud exercitation ullamco laboris nisi ut aliquip ex ea commodo consequat.');
INSERT INTO ARTICLE (ID, TITLE, RAW_DATA) VALUES (3, 'Binary', x'DEADBEEF');
UPDATE ARTICLE SET SUMMARY = LEFT(BODY, 11) WHERE ID = 2;
CREATE TABLE ARTICLE_INFO (ID INTEGER, BODY_LENGTH INTEGER, RAW_HEX VARCHAR(20));
INSERT INTO ARTICLE_INFO SELECT ID, CHAR_LENGTH(BODY), CAST(RAW_DATA AS VARCHAR(4) CHARACTER SET OCTETS) FROM ARTICLE;
COMMIT;
