-- Registry database: one row per company and where its database lives.
create table if not exists m_firma (
    nume_firma   varchar(200) primary key,
    ip           text,
    port         integer,
    db_name      text,
    activ        boolean default true,
    m_site       boolean not null default false,
    pw_hash_type varchar(23)
);
