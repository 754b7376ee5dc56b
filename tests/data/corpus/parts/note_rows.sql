-- Included by 43_isql_commands_abbreviated.sql.
INSERT INTO NOTE VALUES (2, 'two');
COMMIT;
INSERT INTO NOTE VALUES (3, 'rolled back by QUIT');
